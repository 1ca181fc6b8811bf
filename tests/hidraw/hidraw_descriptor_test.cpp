// The report descriptor parser: Windows' report lengths for descriptors of
// known shape, refusal of broken ones, and random input that must never be
// read past its end (the buffers are exact-size heap blocks, so ASan sees
// the first byte beyond).
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/hidraw_descriptor.h"
#include "tests/hidraw/descriptors.h"

namespace {

using hidraw_test::Bytes;
using plat::hidraw::DescriptorFacts;

DescriptorFacts Parse(const Bytes& bytes) {
    // An exact-size copy: a vector's spare capacity would hide an overrun.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() + 1]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return plat::hidraw::ParseReportDescriptor(exact.get(), bytes.size());
}

Bytes Wrap(const Bytes& body) {
    Bytes out = {0x05, 0x01, 0x09, 0x04, 0xA1, 0x01};
    out.insert(out.end(), body.begin(), body.end());
    out.push_back(0xC0);
    return out;
}

TEST(ReportDescriptor, WindowsLengthsAndIdentity) {
    struct Case {
        const char* name;
        Bytes descriptor;
        bool numbered, controller;
        std::uint16_t page, usage, input, output, feature;
    };
    const Case cases[] = {
        {"stick with ids", hidraw_test::kStickWithIds, true, true, 1, 4, 16, 9, 0},
        {"stick without ids", hidraw_test::kStickWithoutIds, false, true, 1, 4, 6, 4, 0},
        {"game pad, push/pop", hidraw_test::kGamePad, true, true, 1, 5, 3, 0, 3},
        {"boot keyboard", hidraw_test::kKeyboard, false, false, 1, 6, 9, 2, 0},
        {"keyboard + joystick", hidraw_test::kKeyboardAndJoystick, true, true, 1, 4, 9, 0, 0},
        // 8 x 65534 bits: the longest report whose length still fits 16 bits.
        {"longest report", Wrap({0x75, 0x08, 0x96, 0xFE, 0xFF, 0x81, 0x02}), false, true, 1, 4,
         0xFFFF, 0, 0},
        // Zero-sized items still make a report of the kind: just the id byte.
        {"empty output", Wrap({0x75, 0x00, 0x95, 0x04, 0x91, 0x02}), false, true, 1, 4, 0, 1, 0},
        // Usage Page after Usage applies to the collection that follows.
        {"page after usage",
         {0x09, 0x05, 0x05, 0x01, 0xA1, 0x01, 0xC0},
         false,
         true,
         1,
         5,
         0,
         0,
         0},
        // Multi-axis controllers and physical top-level collections are not
        // game controllers.
        {"multi-axis", {0x05, 0x01, 0x09, 0x08, 0xA1, 0x01, 0xC0}, false, false, 1, 8, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DescriptorFacts f = Parse(c.descriptor);
        ASSERT_TRUE(f.valid) << f.problem;
        EXPECT_EQ(f.numbered, c.numbered);
        EXPECT_EQ(f.gameController, c.controller);
        EXPECT_EQ(f.usagePage, c.page);
        EXPECT_EQ(f.usage, c.usage);
        EXPECT_EQ(f.inputLength, c.input);
        EXPECT_EQ(f.outputLength, c.output);
        EXPECT_EQ(f.featureLength, c.feature);
    }
}

TEST(ReportDescriptor, BrokenOnesAreRefused) {
    Bytes deep;
    for (int i = 0; i <= plat::hidraw::kMaxCollectionDepth; ++i)
        deep.insert(deep.end(), {0xA1, 0x01});
    for (int i = 0; i <= plat::hidraw::kMaxCollectionDepth; ++i) deep.push_back(0xC0);
    Bytes pushes;
    for (int i = 0; i <= plat::hidraw::kMaxPushDepth; ++i) pushes.push_back(0xA4);
    for (int i = 0; i <= plat::hidraw::kMaxPushDepth; ++i) pushes.push_back(0xB4);

    struct Case {
        const char* name;
        Bytes descriptor;
    };
    const Case cases[] = {
        {"empty", {}},
        {"truncated item", hidraw_test::Truncated()},
        {"truncated 4-byte item", {0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x27, 0xFF}},
        {"truncated long item header", {0xA1, 0x01, 0xC0, 0xFE, 0x05}},
        {"truncated long item data", {0xA1, 0x01, 0xC0, 0xFE, 0x05, 0x00, 0x01, 0x02}},
        {"unbalanced", {0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x81, 0x02}},
        {"end without collection", {0xA1, 0x01, 0xC0, 0xC0}},
        {"pop without push", Wrap({0xB4})},
        {"report id 0", Wrap({0x85, 0x00})},
        {"report id 256", Wrap({0x86, 0x00, 0x01})},
        {"collections too deep", deep},
        {"pushes too deep", Wrap(pushes)},
        {"one byte too long", Wrap({0x75, 0x08, 0x96, 0xFF, 0xFF, 0x81, 0x02})},
        {"size x count overflows 32 bits",
         Wrap({0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02})},
        {"sum too long", Wrap({0x75, 0x08, 0x96, 0x00, 0x80, 0x81, 0x02, 0x81, 0x02})},
        {"no application collection", {0x05, 0x01, 0x09, 0x04, 0xA1, 0x00, 0xC0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DescriptorFacts f = Parse(c.descriptor);
        EXPECT_FALSE(f.valid) << "accepted with input length " << f.inputLength;
        EXPECT_FALSE(f.gameController);
    }
}

// Random bytes biased towards item prefixes that change state, and random
// damage to the real descriptors: nothing may crash or read out of bounds,
// and what is accepted must be self-consistent.
TEST(ReportDescriptor, RandomInputIsHandledSafely) {
    std::mt19937 rng(20240611);
    const std::uint8_t interesting[] = {0x05, 0x06, 0x07, 0x09, 0x0B, 0x75, 0x77, 0x85,
                                        0x86, 0x95, 0x97, 0x81, 0x91, 0xB1, 0xA1, 0xC0,
                                        0xA4, 0xB4, 0xFE, 0xFF, 0x00, 0x01, 0x04, 0x05};
    const Bytes seeds[] = {hidraw_test::kStickWithIds, hidraw_test::kStickWithoutIds,
                           hidraw_test::kGamePad, hidraw_test::kKeyboard};
    int accepted = 0;
    for (int round = 0; round < 40000; ++round) {
        Bytes bytes;
        if (round % 2 == 0) {
            bytes.resize(rng() % 96);
            for (auto& b : bytes) {
                b = rng() % 3 == 0 ? static_cast<std::uint8_t>(rng())
                                   : interesting[rng() % sizeof interesting];
            }
        } else {
            bytes = seeds[rng() % 4];
            const int edits = 1 + static_cast<int>(rng() % 4);
            for (int e = 0; e < edits && !bytes.empty(); ++e) {
                const std::size_t at = rng() % bytes.size();
                switch (rng() % 4) {
                    case 0:
                        bytes[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
                        break;
                    case 1:
                        bytes.resize(at);
                        break;
                    case 2:
                        bytes.insert(bytes.begin() + at, interesting[rng() % sizeof interesting]);
                        break;
                    default:
                        bytes[at] = static_cast<std::uint8_t>(rng());
                        break;
                }
            }
        }
        const DescriptorFacts f = Parse(bytes);
        if (!f.valid) continue;
        ++accepted;
        ASSERT_TRUE(f.gameController ? f.usagePage == 1 && (f.usage == 4 || f.usage == 5) : true)
            << "round " << round;
        const DescriptorFacts again = Parse(bytes);
        ASSERT_EQ(again.inputLength, f.inputLength) << "round " << round;
        ASSERT_EQ(again.outputLength, f.outputLength) << "round " << round;
    }
    // The damage must leave some descriptors intact, or the valid paths go untried.
    EXPECT_GT(accepted, 1000);
}

}  // namespace
