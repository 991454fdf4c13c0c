// The run identity: a digest that tells apart every difference in the run's inputs.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "journal/run_identity.h"

using qubopost::journal::RunIdentity;
using qubopost::journal::RunInputs;

namespace {

RunInputs Sample() {
    return RunInputs{"\x8b\x4c\x8e\x96",  // 記事 in Shift-JIS
                     "head",
                     "foot",
                     "a@example.jp\r\nb@example.jp",
                     "me@example.jp",
                     "smtp.example.jp",
                     "25"};
}

std::string* Field(RunInputs& inputs, int index) {
    std::string* fields[] = {&inputs.article, &inputs.header, &inputs.footer, &inputs.destinations,
                             &inputs.sender,  &inputs.server, &inputs.port};
    return fields[index];
}

}  // namespace

// Expected values computed apart from this code, with Python's hashlib over the tag
// "qubopost run identity 1\n" and each field as struct.pack(">Q", len) + bytes.
TEST(RunIdentity, KnownDigests) {
    EXPECT_EQ(RunIdentity(RunInputs{}),
              "2e1a30079a30c3e498d35c2358ebbbbc0d5b161002b963e8a496ad406f913788");
    EXPECT_EQ(RunIdentity(Sample()),
              "145bd5e0b309c0cfcce0c9d7ff3283ac45110f732f7fe304a9403ce6b57ec1fb");
}

TEST(RunIdentity, EachFieldChangesIt) {
    const std::string base = RunIdentity(Sample());
    std::set<std::string> seen{base};
    for (int field = 0; field < 7; ++field) {
        RunInputs appended = Sample();
        *Field(appended, field) += "x";
        // Emptied, or given one NUL byte when the sample leaves it empty.
        RunInputs emptied = Sample();
        std::string* value = Field(emptied, field);
        *value = value->empty() ? std::string(1, '\0') : std::string();
        for (const RunInputs* inputs : {&appended, &emptied}) {
            const std::string digest = RunIdentity(*inputs);
            EXPECT_NE(digest, base) << "field " << field;
            EXPECT_EQ(digest.size(), 64u);
            seen.insert(digest);
        }
    }
    // Fourteen changes, fourteen different digests besides the original.
    EXPECT_EQ(seen.size(), 1u + 7u * 2u);
}

TEST(RunIdentity, MovingBytesBetweenNeighboursChangesIt) {
    for (int field = 0; field < 6; ++field) {
        struct Case {
            const char* left;
            const char* right;
        };
        // The same concatenation split differently.
        const Case cases[] = {{"ab", "c"}, {"a", "bc"}, {"abc", ""}, {"", "abc"}};
        std::set<std::string> seen;
        for (const Case& c : cases) {
            RunInputs inputs = Sample();
            *Field(inputs, field) = c.left;
            *Field(inputs, field + 1) = c.right;
            seen.insert(RunIdentity(inputs));
        }
        EXPECT_EQ(seen.size(), std::size(cases)) << "fields " << field << " and " << field + 1;
    }
}

TEST(RunIdentity, SameInputsSameDigest) {
    EXPECT_EQ(RunIdentity(Sample()), RunIdentity(Sample()));
    RunInputs withNul = Sample();
    withNul.article += std::string("\0\xff", 2);
    EXPECT_EQ(RunIdentity(withNul), RunIdentity(withNul));
    EXPECT_NE(RunIdentity(withNul), RunIdentity(Sample()));
}
