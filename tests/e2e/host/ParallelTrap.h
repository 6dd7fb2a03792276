/*
 * A simulated parallel port at 0x378, with a display of this family on the
 * cable, for the e2ehost under Wine. Wine lets no 32-bit program execute
 * port instructions: each "in al, dx" (EC) and "out dx, al" (EE) raises
 * EXCEPTION_PRIV_INSTRUCTION. A vectored exception handler emulates the two
 * against the simulated registers, so the DLL's register code runs as it is.
 */
#ifndef E2EHOST_PARALLEL_TRAP_H
#define E2EHOST_PARALLEL_TRAP_H

#ifdef __cplusplus
extern "C" {
#endif

/* Installs the handler (once) and puts a new display of textCells text
 * cells on the port, answering the model query with reply (none: the
 * model's own three bytes). textCells 0: nothing on the port, every
 * register reads as all ones. The counts start again from zero. */
void parallel_trap_attach(int textCells, const unsigned char *reply, int replyLength);
/* Queues bytes the display is to send; returns the bytes queued in all. */
int parallel_trap_send(const unsigned char *bytes, int length);
/* The bytes the display latched so far, up to room of them; returns how
 * many it latched in all. */
int parallel_trap_received(unsigned char *out, int room);
/* Instructions emulated since the last attach, and what the control
 * register holds. */
void parallel_trap_counts(unsigned long *ins, unsigned long *outs, unsigned *control);

#ifdef __cplusplus
}
#endif

#endif
