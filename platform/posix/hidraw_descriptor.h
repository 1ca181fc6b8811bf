// What the link needs to know of a HID report descriptor: whether the device
// is a game controller, whether it numbers its reports, and the report byte
// lengths as Windows' capability query states them. Pure code over a byte
// range, so it is tested on descriptors written by hand.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>

namespace plat::hidraw {

struct DescriptorFacts {
    // False for truncated, unbalanced or absurd descriptors; every other
    // field is then meaningless and the device is not used.
    bool valid = false;
    const char* problem = "";  // why not valid, for tests and diagnostics

    // At least one Report ID item: the device puts the id in front of every
    // report it sends, and hidraw passes that byte on.
    bool numbered = false;
    // A top-level application collection of Generic Desktop Joystick or
    // Game Pad.
    bool gameController = false;
    // Of the first game-controller top-level collection, else of the first
    // top-level application collection: the one discovery matches.
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;

    // Windows makes each top-level collection a device of its own, and the
    // link opens the one discovery matched: the collection of usagePage and
    // usage. Its longest report of each kind in bytes plus one for the id
    // byte, which Windows counts even for devices without ids; 0 when the
    // collection declares no report of that kind.
    std::uint16_t inputLength = 0;
    std::uint16_t outputLength = 0;
    std::uint16_t featureLength = 0;
    // The ids of that collection's input reports (id 0 for a device without
    // ids): hidraw hands over the reports of every collection, Windows only
    // those of the device opened.
    std::bitset<256> inputIds;
};

// Limits that keep hostile descriptors cheap: deeper nesting than this does
// not occur in real devices.
inline constexpr int kMaxCollectionDepth = 32;
inline constexpr int kMaxPushDepth = 8;

DescriptorFacts ParseReportDescriptor(const std::uint8_t* data, std::size_t size);

}  // namespace plat::hidraw
