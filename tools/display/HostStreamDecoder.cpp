#include "HostStreamDecoder.h"

#include <cstdio>

#include "CellCodec.h"
#include "HexText.h"

namespace {
const uint8_t Esc = 0x1B;

std::string Hex(const std::vector<uint8_t>& bytes, size_t from = 0, size_t to = SIZE_MAX)
{
    return HexText(bytes, from, to);
}
} // namespace

std::string HostStreamDecoder::Message::Describe(int statusCells) const
{
    switch (kind) {
    case Query:
        return "query";
    case AfterQuery:
        return "after-query " + Hex(raw);
    case Cells: {
        size_t split = static_cast<size_t>(statusCells) < cells.size() ? statusCells : cells.size();
        return "cells: status " + Hex(cells, 0, split) + " text " + Hex(cells, split);
    }
    case Malformed:
        return "malformed (" + problem + "): " + Hex(raw);
    }
    return "?";
}

void HostStreamDecoder::Emit(Message::Kind kind, std::vector<Message>& out, const std::string& problem)
{
    Message m;
    m.kind = kind;
    m.raw = raw;
    m.cells = cells;
    m.problem = problem;
    out.push_back(m);
    raw.clear();
    cells.clear();
    state = Idle;
}

void HostStreamDecoder::Restart(uint8_t byte, std::vector<Message>& out)
{
    // The byte that broke a message may begin the next one.
    if (byte == Esc) {
        raw.push_back(byte);
        state = Escape;
    } else {
        junk.push_back(byte);
        (void)out;
    }
}

void HostStreamDecoder::Feed(const uint8_t* bytes, size_t length, std::vector<Message>& out)
{
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = bytes[i];
        switch (state) {
        case Idle:
            if (b == Esc) {
                if (!junk.empty()) {
                    raw = junk;
                    junk.clear();
                    Emit(Message::Malformed, out, "bytes outside a message");
                }
                raw.push_back(b);
                state = Escape;
            } else {
                junk.push_back(b);
            }
            break;
        case Escape:
            raw.push_back(b);
            if (b == '?') {
                Emit(Message::Query, out);
            } else if (b == 'I') {
                state = AfterQueryZero;
            } else if (b == 'B') {
                state = InCells;
                if (cellCount == 0)
                    Emit(Message::Cells, out);
            } else {
                raw.pop_back();
                Emit(Message::Malformed, out, "unknown command");
                Restart(b, out);
            }
            break;
        case AfterQueryZero:
            if (b == 0x00) {
                raw.push_back(b);
                Emit(Message::AfterQuery, out);
            } else {
                Emit(Message::Malformed, out, "after-query without its zero byte");
                Restart(b, out);
            }
            break;
        case InCells:
            raw.push_back(b);
            if (b == Esc) {
                state = InCellsEscape;
                break;
            }
            cells.push_back(CellCodec::FromWire(b));
            if (static_cast<int>(cells.size()) == cellCount)
                Emit(Message::Cells, out);
            break;
        case InCellsEscape:
            if (b == Esc) {
                raw.push_back(b);
                cells.push_back(CellCodec::FromWire(Esc));
                state = InCells;
                if (static_cast<int>(cells.size()) == cellCount)
                    Emit(Message::Cells, out);
            } else {
                // An undoubled ESC: the packet ended early and a new message
                // began with that ESC.
                raw.pop_back();
                Emit(Message::Malformed, out,
                     "cell packet cut short after " + std::to_string(cells.size()) + " of " +
                         std::to_string(cellCount) + " cells");
                raw.push_back(Esc);
                state = Escape;
                --i; // look at b again as a command byte
            }
            break;
        }
    }
}

void HostStreamDecoder::Finish(std::vector<Message>& out)
{
    if (state != Idle)
        Emit(Message::Malformed, out, "message cut short");
    if (!junk.empty()) {
        raw = junk;
        junk.clear();
        Emit(Message::Malformed, out, "bytes outside a message");
    }
}
