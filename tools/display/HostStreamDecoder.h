#ifndef BRLDISPLAY_HOST_STREAM_DECODER_H
#define BRLDISPLAY_HOST_STREAM_DECODER_H

#include <cstdint>
#include <string>
#include <vector>

// Splits what the host sends to the display into messages:
//   1B 3F        query
//   1B 49 00     after-query
//   1B 42 c...   cells: exactly cellCount cells, each 0x1B doubled
// Anything else is reported as malformed, never skipped silently; the
// decoder then starts again at the next ESC.
class HostStreamDecoder {
public:
    struct Message {
        enum Kind { Query, AfterQuery, Cells, Malformed } kind;
        std::vector<uint8_t> raw;   // the bytes as they came
        std::vector<uint8_t> cells; // Cells: decoded, host bit order
        std::string problem;        // Malformed: what was wrong
        std::string Describe(int statusCells) const;
    };

    explicit HostStreamDecoder(int cellCount = 0) : cellCount(cellCount) {}
    void SetCellCount(int count) { cellCount = count; }
    int CellCount() const { return cellCount; }

    // Feeds bytes; complete messages are appended to out.
    void Feed(const uint8_t* bytes, size_t length, std::vector<Message>& out);
    // Reports a partial message still buffered (for instance at the end of a
    // session) as malformed.
    void Finish(std::vector<Message>& out);

private:
    enum State { Idle, Escape, AfterQueryZero, InCells, InCellsEscape };
    void Emit(Message::Kind kind, std::vector<Message>& out, const std::string& problem = "");
    void Restart(uint8_t byte, std::vector<Message>& out);

    int cellCount;
    State state = Idle;
    std::vector<uint8_t> raw;
    std::vector<uint8_t> cells;
    std::vector<uint8_t> junk;
};

#endif
