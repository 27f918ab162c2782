/* The example in image mode: every address of both ranges written, erased
   memory as 0xFFFF, each lane file the image of its ROM device with the
   device's own addresses, and a CRC-32 of the code ROM in its last word.
   The RAM-model .cinit is left out (its records initialise RAM, and image
   mode cannot convert it), so the conversion gives no warning and a build
   may use -werror. */

demo.out
-i                              /* Intel hex */
-image
-fill 0xFFFF
-romaddr
-checksum code_rom,crc32
-map image.map

ROMS
{
    PAGE 0:
        code_rom: origin = 0x0000, length = 0x0100, romwidth = 8, memwidth = 16,
                  files = { image_code_lo.hex, image_code_hi.hex }
        data_rom: origin = 0x0100, length = 0x0200, romwidth = 8, memwidth = 16,
                  files = { image_data_lo.hex, image_data_hi.hex }
}

SECTIONS
{
    .text:                      /* code */
    .data:                      /* initialised data */
}
