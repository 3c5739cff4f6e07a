# The system sleeps and wakes. Going to sleep ends the frame's transfer; on
# the return to full power a port reset restarts the reads. The queue keeps
# its events meanwhile.
plug
touch down 100 100
sleep
touch down 200 200            # lost: the sleeping frame has no transfer
wake
touch down 300 300
tool event                    # the event from before the sleep
tool event                    # the one after the wake
tool event
sleep                         # the same again, twice
wake
sleep
wake
touch down 400 400
tool event
