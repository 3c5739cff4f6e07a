# The calibration road: the tool switches raw mode on (command 4) and the
# frame's points reach it unmapped, with the touch status as the event code.
plug
touch down 10 20           # before raw mode: a mapped point, 10 * 40 and 20 * 54
tool event                 # the tool drains what is pending ...
tool event                 # ... until the marker
tool command 4             # CMD_RAW_ON
touch down 1200 3400
touch hold 1201 3402
touch up 1203 3405
tool event                 # 0x81 at the raw point
tool event                 # 0x82
tool event                 # 0x84
tool event                 # nothing more
# Eleven points while nobody reads: the queue keeps the ten newest.
touch hold 1 7
touch hold 2 7
touch hold 3 7
touch hold 4 7
touch hold 5 7
touch hold 6 7
touch hold 7 7
touch hold 8 7
touch hold 9 7
touch hold 10 7
touch hold 11 7
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
touch down 4999 0
tool command 5             # CMD_RAW_OFF: the raw event still queued goes to the next reader
tool event
touch down 100 100         # mapped again
tool event
