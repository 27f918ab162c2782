/* Two byte-wide 64 KiB ROMs for 16-bit memory, with a CRC-32 of the image in
   its last two words; the same lanes as Verilog memory files for the HDL
   simulation, and the whole memory as a C array for a host processor. */
app.out
-i
-map rom.map
-image
-fill 0xFFFF
-romaddr
-checksum code_rom,crc32
-also "vmem,names=hdl/%n.mem"
-also carray,romwidth=16,names=rom_words.c

ROMS
{
    code_rom: origin = 0x0000, length = 0x20000, romwidth = 8, memwidth = 16,
              files = { rom_lo.hex, rom_hi.hex }
}

SECTIONS { .text: .data: }
