#ifndef BRLDISPLAY_KEY_MAP_H
#define BRLDISPLAY_KEY_MAP_H

#include <cstdint>
#include <string>
#include <vector>

// The terminal keyboard of the virtual display: one typed character at a
// time in, packets for the host out.
//
//   1 2 3 4 5        second key byte, bits 0..4 (keys 1..5)
//   q w e r t y      first key byte, bits 5..0 (keys 31..36)
//   + keys... Enter  one packet with every key typed after '+' (a chord)
//   / n Enter        routing key over text cell n (1-based): r = n + 5
//   s n              routing key over status cell n (1..5): r = n - 1
//   Backspace        cancels a chord or a number being typed
//   Ctrl-C, Ctrl-D   quit
class KeyMap {
public:
    struct Action {
        enum Kind { None, Packet, Quit } kind = None;
        std::vector<uint8_t> bytes;
    };

    explicit KeyMap(int textCells) : textCells(textCells) {}

    Action Press(char c);
    // What is being typed, for the status line ("" when nothing).
    std::string Pending() const;

    // Shared with the key script: routing byte of a text or status cell.
    static uint8_t TextRoutingByte(int cell) { return static_cast<uint8_t>(cell + 5); }
    static uint8_t StatusRoutingByte(int cell) { return static_cast<uint8_t>(cell - 1); }
    // The key byte and bit a key letter stands for; false when it is none.
    static bool KeyBit(char c, bool& firstByte, uint8_t& mask);

private:
    enum Mode { Single, Chord, TextRouting, StatusRouting };
    Action Finish();

    int textCells;
    Mode mode = Single;
    uint8_t first = 0, second = 0;
    std::string number;
};

#endif
