/* The bundled example: demo.out, a small Kestrel program, converted for two
   ranges of 8-bit ROMs on 16-bit memory. Each range splits every 16-bit word
   into two byte lanes: the low byte goes to the _lo file, the high byte to the
   _hi file. A map file documents the result. */

demo.out
-i                              /* Intel hex */
-map demo.map

ROMS
{
    PAGE 0:
        code_rom: origin = 0x0000, length = 0x0100, romwidth = 8, memwidth = 16,
                  files = { code_lo.hex, code_hi.hex }
        data_rom: origin = 0x0100, length = 0x0200, romwidth = 8, memwidth = 16,
                  files = { data_lo.hex, data_hi.hex }
}

SECTIONS
{
    .text:                      /* code */
    .data:                      /* initialised data */
    .cinit                      /* autoinitialisation records, placed at .bss */
}
