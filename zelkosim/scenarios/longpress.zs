# A long press gives a right click: 102 reports of one touch (the touch-down
# and 101 holds) that stay within 19 raw units of the first. Nobody reads
# meanwhile, so the queue keeps only the ten newest events.
plug
touch down 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1000 1000
touch hold 1010 990           # the 102nd report: right button pressed and released here
touch hold 1500 1000          # from now on the touch only moves the pointer
touch up 1500 1000            # and its lift gives no event
tool event
tool event
tool event
tool event
tool event
tool event
tool event
tool event
tool event
tool event
tool event
touch down 2000 1000          # a new touch counts anew (x * 40 wraps at 16 bits)
touch up 2000 1000
tool event
tool event
tool event
tool event
