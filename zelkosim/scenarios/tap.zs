# A tap in touch mode 1 (click at lift).
#
# With the consumer "none", Zelko's events wait in its queue and the tool reads
# them one by one (tap.out). With "dravick", Dravick takes each event as it is
# queued and hands it to the mouse class as absolute mouse input, so the tool
# finds the queue empty (tap.dravick.out); with "miravel" the events become HID
# input reports (tap.miravel.out). No settings are in the registry, so Zelko
# maps with its fixed factors: screen x = raw x * 40, screen y = raw y * 54.
plug
tool event                 # nothing queued yet: the marker 111, 111, 111
touch down 800 600
touch hold 802 601
touch up 803 601
tool event                 # the touch-down: pointer only (0x80)
tool event                 # the hold: pointer only
tool event                 # the lift: left button pressed (0x81) ...
tool event                 # ... and released (0x80), at the lift point
tool event                 # nothing left
