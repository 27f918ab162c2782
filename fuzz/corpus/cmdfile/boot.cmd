/* The same program for the K7734's serial boot loader: every initialised
   section goes into one boot table of 16-bit fields (entry point, then each
   section's size, address and bytes, then an end marker), read by the boot
   loader through its serial port in 16-bit mode. */

demo.out
-boot                           /* every initialised section is boot-loaded */
-serial16                       /* boot port and 16-bit ROM words */
-e _c_int00                     /* entry point by symbol */
-i
-o boot.hex
-map boot.map

ROMS
{
    boot_rom: origin = 0x0000, length = 0x0400
}
