# cmake -DIN=FILE -DOUT=FILE.gz -P gzip.cmake: compresses one file with gzip, without the
# name and time stamp, so that the same input gives the same bytes.
get_filename_component(folder "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
execute_process(COMMAND gzip -9 -n -c "${IN}" OUTPUT_FILE "${OUT}.part" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(REMOVE "${OUT}.part")
    message(FATAL_ERROR "gzip ${IN}: ${status}")
endif()
file(RENAME "${OUT}.part" "${OUT}")
