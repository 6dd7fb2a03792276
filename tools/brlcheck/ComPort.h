// A serial port looked at from outside the DLL, as the DLL opens it: by its
// number, COM1 to COM256, from the names a display owner gives.
#ifndef BRLCHECK_COM_PORT_H
#define BRLCHECK_COM_PORT_H

class Text;

class ComPort {
public:
    enum State { Absent, InUse, Present };

    // Opens the port and lets it go again: absent, held by another
    // program, or there.
    static State Probe(unsigned number);
    // The number of a plain serial name, COM7 or COM12:38400,n,8,1; else 0.
    static unsigned Number(const char* name);
    // "COM7".
    static void AddName(Text& text, unsigned number);
};

#endif
