// SHA-256 against the published test vectors, and at the lengths where the padding changes.
#include <gtest/gtest.h>

#include <string>

#include "flash/sha256.h"

namespace {

struct Vector {
    const char* name;
    std::string message;
    const char* digest;
};

class Sha256 : public ::testing::TestWithParam<Vector> {};

TEST_P(Sha256, GivesTheKnownDigest) {
    const std::string& message = GetParam().message;
    EXPECT_EQ(
        hexDigest(sha256(reinterpret_cast<const std::uint8_t*>(message.data()), message.size())),
        GetParam().digest);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Vectors, Sha256,
    ::testing::Values(
        Vector{"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        Vector{"Abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 448 bits: the length no longer fits the message's block, the padding takes another.
        Vector{"FiftySixBytes", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        Vector{"MillionAs", std::string(1000000, 'a'),
               "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // The longest message whose padding fits its own block, and one whole block.
        Vector{"FiftyFiveBytes", std::string(55, 'a'),
               "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        Vector{"OneBlock", std::string(64, 'a'),
               "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
