/*
 * The one configuration request that the parallel-port kernel device takes.
 * Shared, byte for byte, by the DLL's kernel-device transport and by any
 * program or driver that stands in for the device, so both sides agree on
 * the control code and the layout of its input block. Plain C on purpose:
 * kernel-mode stand-ins are built as C.
 */
#ifndef BRLWIN32_PARALLEL_DEVICE_IOCTL_H
#define BRLWIN32_PARALLEL_DEVICE_IOCTL_H

/* CTL_CODE(FILE_DEVICE_UNKNOWN 0x22, function 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS) */
#define PARALLEL_DEVICE_IOCTL_CONFIGURE 0x222004u

/* The device names are this template with its last character replaced by
 * the last character of the port string: LPT1 -> QZPAR1. */
#define PARALLEL_DEVICE_NAME_TEMPLATE "QZPAR1"
/* Programs open the devices by this prefix and the name: \\.\QZPAR1. */
#define PARALLEL_DEVICE_PATH_PREFIX "\\\\.\\"

/* Input block of the configuration request: two little-endian 32-bit words.
 * What they mean is the device's business; the driver always sends 0, 100. */
typedef struct ParallelDeviceConfig {
    unsigned int first;  /* offset 0 */
    unsigned int second; /* offset 4 */
} ParallelDeviceConfig;

#define PARALLEL_DEVICE_CONFIG_FIRST 0u
#define PARALLEL_DEVICE_CONFIG_SECOND 100u

/* The same eight bytes from a 32-bit and a 64-bit caller: the device sees
 * no difference. */
typedef char ParallelDeviceConfigIsEightBytes[sizeof(ParallelDeviceConfig) == 8 ? 1 : -1];

#endif
