# The layers of the program, each folder a target of its own.
#
# A folder's headers are reachable only through its target: qubopost_layer_headers() gives
# the target an include folder in the build tree that holds just a link named like the
# source folder ("article" -> ../../article), so `#include "article/x.h"` compiles only in
# targets that link qubopost_article (directly or through a layer above it). An include
# against the layering then fails to build instead of quietly working.
function(qubopost_layer_headers target folder)
    string(REPLACE "/" "_" flat "${folder}")
    set(root "${CMAKE_BINARY_DIR}/layers/${flat}")
    get_filename_component(parent "${root}/${folder}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    if(NOT EXISTS "${root}/${folder}")
        file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)
    endif()
    get_target_property(kind ${target} TYPE)
    if(kind STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE "${root}")
    else()
        target_include_directories(${target} PUBLIC "${root}")
    endif()
endfunction()
