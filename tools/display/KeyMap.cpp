#include "KeyMap.h"

#include "DisplaySimulator.h"

namespace {
const char CtrlC = 0x03, CtrlD = 0x04, Backspace = 0x7F, CtrlH = 0x08;

KeyMap::Action PacketAction(const std::vector<uint8_t>& bytes)
{
    KeyMap::Action a;
    a.kind = KeyMap::Action::Packet;
    a.bytes = bytes;
    return a;
}
} // namespace

bool KeyMap::KeyBit(char c, bool& firstByte, uint8_t& mask)
{
    static const char second[] = "12345";
    static const char firstKeys[] = "qwerty"; // keys 31..36: bits 5..0
    for (int i = 0; i < 5; ++i)
        if (c == second[i]) {
            firstByte = false;
            mask = static_cast<uint8_t>(1u << i);
            return true;
        }
    for (int i = 0; i < 6; ++i)
        if (c == firstKeys[i]) {
            firstByte = true;
            mask = static_cast<uint8_t>(1u << (5 - i));
            return true;
        }
    return false;
}

KeyMap::Action KeyMap::Finish()
{
    Action a;
    if (mode == Chord && (first || second))
        a = PacketAction(DisplaySimulator::KeyPacket(first, second));
    if (mode == TextRouting && !number.empty()) {
        int cell = std::stoi(number);
        if (cell >= 1 && cell <= textCells)
            a = PacketAction(DisplaySimulator::RoutingPacket(TextRoutingByte(cell)));
    }
    mode = Single;
    first = second = 0;
    number.clear();
    return a;
}

KeyMap::Action KeyMap::Press(char c)
{
    if (c == CtrlC || c == CtrlD) {
        Action a;
        a.kind = Action::Quit;
        return a;
    }
    if (c == Backspace || c == CtrlH) {
        mode = Single;
        first = second = 0;
        number.clear();
        return Action();
    }
    bool firstByte = false;
    uint8_t mask = 0;
    switch (mode) {
    case Single:
        if (KeyBit(c, firstByte, mask))
            return PacketAction(DisplaySimulator::KeyPacket(firstByte ? mask : 0, firstByte ? 0 : mask));
        if (c == '+')
            mode = Chord;
        else if (c == '/')
            mode = TextRouting;
        else if (c == 's')
            mode = StatusRouting;
        return Action();
    case Chord:
        if (c == '\r' || c == '\n')
            return Finish();
        if (KeyBit(c, firstByte, mask)) {
            if (firstByte)
                first = static_cast<uint8_t>(first | mask);
            else
                second = static_cast<uint8_t>(second | mask);
        }
        return Action();
    case TextRouting:
        if (c == '\r' || c == '\n')
            return Finish();
        if (c >= '0' && c <= '9' && number.size() < 3)
            number += c;
        return Action();
    case StatusRouting:
        mode = Single;
        if (c >= '1' && c <= '5')
            return PacketAction(DisplaySimulator::RoutingPacket(StatusRoutingByte(c - '0')));
        return Action();
    }
    return Action();
}

std::string KeyMap::Pending() const
{
    switch (mode) {
    case Single:
        return "";
    case Chord: {
        std::string s = "chord:";
        static const char keys[] = "qwerty12345";
        for (int i = 0; i < 11; ++i) {
            bool firstByte = false;
            uint8_t mask = 0;
            KeyBit(keys[i], firstByte, mask);
            if ((firstByte ? first : second) & mask)
                s += keys[i];
        }
        return s + " (Enter sends)";
    }
    case TextRouting:
        return "route to text cell " + number + "_ (Enter sends)";
    case StatusRouting:
        return "route to status cell _ (1-5)";
    }
    return "";
}
