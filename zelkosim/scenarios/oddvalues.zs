# Odd values in the tool's key, and how Zelko reads them.
reg tables 1 0 1 0            # identity tables: the screen point is the raw point
reg sz doneMode  2            # a blank, then 2: read as 2
reg sz changexy 1             # swap raw x and raw y
reg sz disabledev 0
reg sz moveSlider -1          # kept as its unsigned 32-bit value
plug
tool command 6
reg show
touch down 100 200            # swapped to (200, 100); mode 2
tool event
tool event
tool event
tool command 4                # raw mode swaps as well
touch down 100 200
tool event
tool command 5
# A REG_DWORD is read as text: the bytes 01 00 00 00 hold no digit, so 0, the drag mode.
reg dword doneMode 1
reg sz changexy 0
reg sz moveSlider 0
tool command 6
touch down 100 200
touch hold 100 200
touch up 100 200
tool event
tool event
tool event
tool event
reg dword doneMode 0x32       # the byte 0x32 is the digit 2
tool command 6
touch down 7 8
tool event
tool event
tool event
# moveSlider missing: the five values read from the tool's key are read over
# by Zelko's older copy, which is in force and is not rewritten.
reg del moveSlider
reg sz doneMode 3
tool command 6
touch down 9 9
tool event
tool event
tool event
reg show
# An XArray shorter than 10000 bytes replaces only its first entries.
reg bin XArray 20 00 21 00    # XArray[0] = 32, XArray[1] = 33
reg sz moveSlider 0
tool command 6                # complete again: mode 3 from the tool's key
touch down 1 5
touch down 2 5
tool event
tool event
tool event
reg show
