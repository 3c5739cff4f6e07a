# The frame comes and goes. Without a device the tool cannot open "\\.\Zelkode".
tool event
tool command 6
plug
touch down 100 100
touch up 100 100
tool event                    # the touch-down; the lift's two events stay queued
unplug                        # surprise removal, then removal
tool event
plug                          # a new device, with an empty queue
tool event
touch down 1 1
tool event
unplug
plug vid=0x1234               # another product: Zelko is not loaded for it
tool event
unplug
plug interfaces=0             # Zelko's device exists but cannot configure the frame
touch down 5 5                # lost: no read
tool event
unplug
plug endpoints=0              # an interface without a pipe: no read either
touch down 5 5
tool event
unplug
plug interfaces=2 endpoints=3 # the first pipe of the first interface is the report pipe
touch down 5 5
tool event
