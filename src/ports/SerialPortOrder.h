#ifndef BRLWIN32_SERIAL_PORT_ORDER_H
#define BRLWIN32_SERIAL_PORT_ORDER_H

// The order in which BrlInit("auto") tries COM1 to COM256. Opening a
// Bluetooth serial port makes Windows connect to its far end, and CreateFileA
// blocks for seconds, so the ports are tried in three groups, each in
// ascending order:
//   1. ports whose device the system names and that are no Bluetooth link
//      (\Device\Serial0, \Device\VCP0, ...);
//   2. ports it names no device for, as every port was tried before: a
//      driver that does not register its name loses no display;
//   3. Bluetooth links (\Device\BthModem0, ...).
// The names come from QueryDosDeviceA, which Windows 95 lacks: it is looked
// up at run time, and where it is missing every port is of group 2.
class SerialPortOrder {
public:
    enum {
        FirstPort = 1,
        LastPort = 256, // what Windows hands out, USB adapters and Bluetooth links included
        PortCount = LastPort - FirstPort + 1,
        NameSize = 8,    // "COM256" and its terminator
        DeviceSize = 260 // a device path of the NT object namespace
    };
    // Learns each port's device, where the system can say, and orders them.
    SerialPortOrder();

    // The port number tried at position 0 to PortCount - 1.
    int At(int position) const;

    // "COMn", as the port is named to BrlInit.
    static void Name(int number, char (&name)[NameSize]);
    // The device the system names for COMn, such as "\Device\VCP0", cut to
    // size and terminated; 0 when it names none or cannot say.
    static int Device(int number, char* device, int size);
    static bool IsBluetooth(const char* device);

private:
    // In the order auto tries them.
    enum Group { Named, Unnamed, Bluetooth };

    unsigned short order[PortCount];
};

#endif
