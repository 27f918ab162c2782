	=
-quiet_typo
ROMS { r: o = 0 l = 0 }
-order x
- - binary_output
-fill

 0x12345
-e
