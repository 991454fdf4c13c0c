// What the built libbsmtp.so offers a program that opens it at run time: every documented call
// by its name, BSendMailNotify included, and LoadMailFunctions finding them (and doing without
// BSendMailNotify in a library that lacks it). This program does not link the library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <type_traits>

#include "mail/bsmtp.h"
#include "mail/mail_library.h"

namespace {

// The loader's pointer has the type the header declares.
static_assert(std::is_same_v<decltype(&BSendMailNotify), decltype(MailFunctions::sendMailNotify)>);
static_assert(std::is_same_v<decltype(&BSendMailEx), decltype(MailFunctions::sendMailEx)>);
static_assert(std::is_same_v<BSMTP_END_CALLBACK, void (*)(void*)>);

TEST(MailExports, EveryDocumentedCallIsThereByName) {
    void* library = dlopen(QUBOPOST_TEST_BSMTP_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : {"BSendMail", "BSendMailEx", "BSendMailNotify", "BTestLogin",
                             "BSetOption", "BCredentialsCommand"})
        EXPECT_NE(dlsym(library, name), nullptr) << name;

    std::string error;
    const MailFunctions functions = LoadMailFunctions(QUBOPOST_TEST_BSMTP_PATH, &error);
    ASSERT_TRUE(functions) << error;
    EXPECT_EQ(reinterpret_cast<void*>(functions.sendMailNotify), dlsym(library, "BSendMailNotify"));
    EXPECT_EQ(reinterpret_cast<void*>(functions.sendMailEx), dlsym(library, "BSendMailEx"));
    dlclose(library);  // LoadMailFunctions keeps its own reference
}

TEST(MailExports, ALibraryWithoutBSendMailNotifyStillLoads) {
    std::string error;
    const MailFunctions functions = LoadMailFunctions(QUBOPOST_TEST_OLD_MAIL_LIBRARY_PATH, &error);
    EXPECT_TRUE(functions) << error;
    EXPECT_NE(functions.sendMailEx, nullptr);
    EXPECT_NE(functions.setOption, nullptr);
    EXPECT_EQ(functions.sendMailNotify, nullptr);
    EXPECT_EQ(functions.credentialsCommand, nullptr);
}

}  // namespace

// The language of the library's own reasons: the two the catalogue has, or back to the default.
TEST(MailExports, TheLanguageOptionTakesJapaneseEnglishOrTheDefault) {
    const MailFunctions functions = LoadMailFunctions(QUBOPOST_TEST_BSMTP_PATH);
    ASSERT_TRUE(functions);
    const std::pair<const char*, int> cases[] = {
        {"en", 1}, {"ja", 1}, {"", 1}, {"fr", 0}, {"EN", 0}};
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(functions.setOption("language", value), expected) << value;
}
