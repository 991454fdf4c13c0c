// The registrar's script reader and what registering and unregistering leave behind.
#include <gtest/gtest.h>

#include "app/registrar.h"
#include "resources/control_table.h"
#include "resources/registry_script.h"
#include "temp_dir.h"

using namespace qubopost::app;
using namespace qubopost::platform;
using namespace qubopost::resources;

TEST(RegistryScript, ReadsTheProgramsScript) {
    std::string error;
    auto roots = ParseRegistryScript(*LoadRegistryScript(IDR_QUBOPOST_REGISTRY), {}, &error);
    ASSERT_TRUE(roots) << error;
    ASSERT_EQ(roots->size(), 1u);
    const RegistryScriptKey& appId = (*roots)[0].subKeys.at(0);
    EXPECT_EQ(appId.name, "AppID");
    EXPECT_EQ(appId.removal, RegistryScriptKey::Removal::NoRemove);
    ASSERT_EQ(appId.subKeys.size(), 2u);
    EXPECT_EQ(appId.subKeys[0].defaultValue, std::optional<std::string>("Qubopost"));
    EXPECT_EQ(appId.subKeys[1].name, "Qubopost.EXE");
    ASSERT_EQ(appId.subKeys[1].values.size(), 1u);
    EXPECT_EQ(appId.subKeys[1].values[0].first, "AppID");
}

TEST(RegistryScript, QuotesReplacementsAndErrors) {
    std::string error;
    auto roots =
        ParseRegistryScript("HKCU { 'it''s' = s '%MODULE%' }", {{"Module", "/a/b''s"}}, &error);
    ASSERT_TRUE(roots) << error;
    EXPECT_EQ((*roots)[0].subKeys[0].name, "it's");
    EXPECT_EQ((*roots)[0].subKeys[0].defaultValue, std::optional<std::string>("/a/b's"));

    for (const char* bad : {"HKCR {", "HKCR { key = d 5 }", "HKCR { 'open }", "HKCR { %NOPE% }",
                            "HKCR { val = s 'x' }", "HKCR { a\\b }", "{ }"}) {
        EXPECT_FALSE(ParseRegistryScript(bad, {}, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    std::string deep = "HKCR ";
    for (int i = 0; i < 200; ++i) deep += "{ k ";
    EXPECT_FALSE(ParseRegistryScript(deep, {}, &error));  // no stack exhaustion
}

TEST(Registrar, RegisterThenUnregisterRemovesAllButNoRemoveKeys) {
    TempDir dir;
    RegistryFile registry(dir.File("registry.ini"));
    Registrar registrar(registry);
    const char* script =
        "HKCR { NoRemove Keep { Mine = s 'v' { val Named = s 'x' } } ForceRemove Gone { Sub } }";
    std::string error;
    ASSERT_TRUE(registrar.ResourceRegister(script, &error)) << error;
    EXPECT_EQ(registry.GetValue("HKCR\\Keep\\Mine", ""), std::optional<std::string>("v"));
    EXPECT_EQ(registry.GetValue("HKCR\\Keep\\Mine", "Named"), std::optional<std::string>("x"));
    EXPECT_TRUE(registry.KeyExists("HKCR\\Gone\\Sub"));
    registry.SetValue("HKCR\\Keep\\Foreign", "", "stays");

    ASSERT_TRUE(registrar.ResourceUnregister(script, &error));
    EXPECT_TRUE(registry.KeyExists("HKCR\\Keep"));
    EXPECT_FALSE(registry.KeyExists("HKCR\\Keep\\Mine"));
    EXPECT_FALSE(registry.KeyExists("HKCR\\Gone"));
    EXPECT_FALSE(registry.KeyExists("HKCR\\Gone\\Sub"));
    EXPECT_TRUE(registry.KeyExists("HKCR\\Keep\\Foreign"));

    ASSERT_TRUE(registry.Save(&error)) << error;
    RegistryFile reread(dir.File("registry.ini"));
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(reread.GetValue("HKCR\\Keep\\Foreign", ""), std::optional<std::string>("stays"));
}
