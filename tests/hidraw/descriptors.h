// Report descriptors written by hand from the HID item encoding (prefix byte:
// tag << 4 | type << 2 | size code; data little-endian). Next to each, the
// lengths Windows' capability query gives, derived by its rule: per report
// id, sum Report Size x Report Count over the main items of a kind, round up
// to bytes; take the longest report of the kind and add the id byte (also
// when the device has no ids); 0 when the kind has no report.
#pragma once

#include <cstdint>
#include <vector>

namespace hidraw_test {

using Bytes = std::vector<std::uint8_t>;

// A stick shaped like ours: report 1 carries 56 button bits, X and Y at
// bytes 8..11 and 4 vendor bytes (56+32+32 = 120 bits = 15 bytes), report 2
// the EEPROM reply (15 x 8 bits = 15 bytes), output report 1 the command
// (8 x 8 bits). Input 15+1 = 16, output 8+1 = 9, feature 0.
inline const Bytes kStickWithIds = {
    0x05, 0x01,                    // Usage Page (Generic Desktop)
    0x09, 0x04,                    // Usage (Joystick)
    0xA1, 0x01,                    // Collection (Application)
    0x85, 0x01,                    //   Report ID (1)
    0x05, 0x09,                    //   Usage Page (Button)
    0x19, 0x01, 0x29, 0x38,        //   Usage Minimum (1), Maximum (56)
    0x15, 0x00, 0x25, 0x01,        //   Logical Minimum (0), Maximum (1)
    0x75, 0x01, 0x95, 0x38,        //   Report Size (1), Count (56)
    0x81, 0x02,                    //   Input (Data, Var, Abs)
    0x05, 0x01,                    //   Usage Page (Generic Desktop)
    0x09, 0x01,                    //   Usage (Pointer)
    0xA1, 0x00,                    //   Collection (Physical)
    0x09, 0x30, 0x09, 0x31,        //     Usage (X), Usage (Y)
    0x27, 0xFF, 0xFF, 0x00, 0x00,  // Logical Maximum (65535)
    0x75, 0x10, 0x95, 0x02,        //     Report Size (16), Count (2)
    0x81, 0x02,                    //     Input
    0xC0,                          //   End Collection
    0x06, 0x00, 0xFF,              //   Usage Page (Vendor 0xFF00)
    0x09, 0x01,                    //   Usage (1)
    0x75, 0x08, 0x95, 0x04,        //   Report Size (8), Count (4)
    0x81, 0x02,                    //   Input
    0x85, 0x02,                    //   Report ID (2)
    0x09, 0x02,                    //   Usage (2)
    0x95, 0x0F,                    //   Report Count (15)
    0x81, 0x02,                    //   Input
    0x85, 0x01,                    //   Report ID (1)
    0x09, 0x03,                    //   Usage (3)
    0x95, 0x08,                    //   Report Count (8)
    0x91, 0x02,                    //   Output (Data, Var, Abs)
    0xC0,                          // End Collection
};

// No report ids: 5 buttons + 3 padding bits, X and Y of 10 bits + 4 padding
// bits, an 8-bit throttle = 40 bits = 5 bytes; an output of 3 bytes, behind
// a long item that must be skipped. Input 5+1 = 6, output 3+1 = 4.
inline const Bytes kStickWithoutIds = {
    0x05, 0x01, 0x09, 0x04, 0xA1, 0x01,  // Generic Desktop, Joystick, Application
    0x05, 0x09, 0x19, 0x01, 0x29, 0x05,  //   Buttons 1..5
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x05, 0x81, 0x02,  //   Input: 5 bits
    0x75, 0x03, 0x95, 0x01, 0x81, 0x03,                          //   Input (Constant): 3 bits
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31,                          //   X, Y
    0x26, 0xFF, 0x03, 0x75, 0x0A, 0x95, 0x02,  //   Logical Max 1023, Size 10, Count 2
    0x81, 0x02,                                //   Input: 20 bits
    0x75, 0x04, 0x95, 0x01, 0x81, 0x03,        //   Input (Constant): 4 bits
    0x09, 0x36, 0x75, 0x08, 0x81, 0x02,        //   Slider, Size 8: 8 bits
    0xFE, 0x03, 0x10, 0xAA, 0xBB, 0xCC,        //   a long item
    0x06, 0x00, 0xFF, 0x09, 0x01,              //   Vendor usage
    0x95, 0x03, 0x91, 0x02,                    //   Output: 3 x 8 bits
    0xC0,
};

// A game pad named by one extended (4-byte) usage, with Push/Pop around a
// report of its own: report 3 = 13 bits (2 bytes); inside the push report 6
// = 7 bits (1 byte); Pop restores id 4 with Size 1 x Count 13, so report 4 =
// 13 bits (2 bytes); feature report 5 = 9 bits (2 bytes). Input 2+1 = 3,
// output 0, feature 2+1 = 3. A Pop that lost the id would give report 6
// 20 bits and an input length of 4.
inline const Bytes kGamePad = {
    0x0B, 0x05, 0x00, 0x01, 0x00,  // Usage (Generic Desktop: Game Pad), extended
    0xA1, 0x01,                    // Collection (Application)
    0x05, 0x09, 0x19, 0x01, 0x29, 0x0D, 0x15, 0x00, 0x25,
    0x01, 0x85, 0x03, 0x75, 0x01, 0x95, 0x0D, 0x81, 0x02,  // report 3: 13 x 1
    0x85, 0x04,                                            // Report ID (4)
    0xA4,                                                  // Push
    0x85, 0x06, 0x75, 0x07, 0x95, 0x01, 0x81, 0x02,        //   report 6: 7 x 1
    0xB4,                                                  // Pop
    0x81, 0x02,                                            // report 4: 1 x 13
    0x85, 0x05, 0x75, 0x09, 0x95, 0x01, 0xB1, 0x02,        // feature report 5: 9 x 1
    0xC0,
};

// The standard USB boot keyboard: 8 input bytes and 5
// LED bits + 3 padding. Input 8+1 = 9, output 1+1 = 2. Not a controller.
inline const Bytes kKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,  // Generic Desktop, Keyboard, Application
    0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01,
    0x95, 0x08, 0x81, 0x02,                                                  // modifiers: 8 x 1
    0x95, 0x01, 0x75, 0x08, 0x81, 0x01,                                      // reserved byte
    0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02,  // LEDs: 5 x 1
    0x95, 0x01, 0x75, 0x03, 0x91, 0x01,                                      // padding: 3 x 1
    0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00,
    0x29, 0x65, 0x81, 0x00,  // keys: 6 x 8
    0xC0,
};

// A keyboard and a joystick behind one node: a controller, its caps usage
// from the joystick collection. Keyboard report 1 = 8 bytes, joystick report
// 2 = 4 bytes. Input 8+1 = 9, output 0.
inline const Bytes kKeyboardAndJoystick = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x75, 0x08, 0x95, 0x08,
    0x81, 0x00, 0xC0, 0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x02, 0x09,
    0x30, 0x09, 0x31, 0x75, 0x10, 0x95, 0x02, 0x81, 0x02, 0xC0,
};

// kStickWithIds cut in the middle of its Logical Maximum item.
inline Bytes Truncated() {
    return Bytes(kStickWithIds.begin(), kStickWithIds.begin() + 38);
}

}  // namespace hidraw_test
