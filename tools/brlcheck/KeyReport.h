// One report of the key callback, taken apart as the host guide's key table
// tells: the key indices it names, lowest first, and for a routing key the
// text cell it stands over. Which index is which physical key is the
// host's to decide, so the keys are named by index, not by button.
#ifndef BRLCHECK_KEY_REPORT_H
#define BRLCHECK_KEY_REPORT_H

class Text;

class KeyReport {
public:
    enum { MaxKeys = 4 };

    KeyReport(unsigned code, unsigned argument);

    int Count() const { return count; }
    // A key index from 1 to 255, or 0 for a code byte the table has not.
    unsigned Index(int i) const { return indices[i]; }
    unsigned CodeByte(int i) const { return codeBytes[i]; }
    // The text cell of a routing key (code byte 0x81), 1 to 100; else 0.
    unsigned RoutingCell() const { return routingCell; }

    // For the console: "key code 0x80000124, argument 0: key indices 1 and 36".
    void Describe(Text& text) const;
    // For the display: "80000124 1 36".
    void Show(Text& text) const;

private:
    unsigned code;
    unsigned argument;
    int count;
    unsigned codeBytes[MaxKeys];
    unsigned indices[MaxKeys];
    unsigned routingCell;
};

#endif
