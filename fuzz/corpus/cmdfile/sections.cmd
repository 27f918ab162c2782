/* a comment
   over two lines */ -boot -bootorg 8000h -bootpage 1 -e _start
SECTIONS { .data, .text: paddr = 0x8000 datawidth = 16 .cinit = BOOT .x(BOOT) .y: paddr = boot
           .text .missing }
-reg_config 0x10,5,sym -delay 100 - - v6620_startdsp 3 -v7734:1
"quoted name.out" -order ms -memwidth 0 -o out.hex -map m.map
