-x -image -fill 0x12345 -zero
ROMS {
  PAGE 1: hi: o = 0x100, l = 0x100, w = 24, memwidth = 32, fill = 0x12345
  PAGE 0: lo: o = 0 o = 0x10 l = 0x10 w = 8 mw = 16 f = 1 files = { a.x, b.x c.x }
          mid: origin = (0x200) length = ((020q)) romwidth = 16
}
ROMS { again: l = 0x10 }
