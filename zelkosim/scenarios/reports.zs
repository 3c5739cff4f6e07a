# Reports byte by byte, and short transfers: Zelko does not look at how many
# bytes arrived, so a short transfer leaves the previous report's tail in place.
plug
report 00 00 20 03 58 02 81 00     # x 800, y 600, touch-down: as "touch down 800 600"
short 4 00 00 e8 03                # only x arrives (1000): y and the status stay
short 0                            # nothing arrives: the previous report once more
report ff ff 10 00 20 00 82 ff     # the unused bytes do not matter
touch 0x90 5 5                     # a status without a meaning of its own: pointer only
fail STATUS_SUCCESS                # an empty successful transfer, like short 0
tool event
tool event
tool event
tool event
tool event
tool event
tool event
