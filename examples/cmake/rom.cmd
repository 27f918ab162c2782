/* Two byte-wide 64 KiB ROMs for 16-bit memory, with a CRC-32 of the image in
   its last two words. */
app.out
-i
-map rom.map
-image
-fill 0xFFFF
-romaddr
-checksum code_rom,crc32

ROMS
{
    code_rom: origin = 0x0000, length = 0x20000, romwidth = 8, memwidth = 16,
              files = { rom_lo.hex, rom_hi.hex }
}

SECTIONS { .text: .data: }
