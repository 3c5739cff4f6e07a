# Failing interrupt reads on the road that needs no PnP stop (readfail.zs stops
# and starts the device; a new device here does what the start does there). A
# device error makes Zelko reset the hub port; the reads resume once the port
# reports the frame connected. Reads that ended stay off until a new device.
plug
fail STATUS_DEVICE_DATA_ERROR
touch down 10 10
tool event                    # the reads resumed after the reset
fail STATUS_UNSUCCESSFUL      # the same road
touch down 11 11
tool event
fail STATUS_IO_TIMEOUT        # renewed at once; its buffer is not processed
touch down 20 20
tool event
tool event                    # the time-out queued nothing
# The port is reset but reports no frame: the reads stay off.
port disconnected
fail STATUS_DEVICE_DATA_ERROR
touch down 30 30              # lost: no read is outstanding
tool event
port connected
touch down 40 40              # still lost: nothing restarts the reads but a new start
tool event
unplug
plug                          # a new device reads again
touch down 50 50
tool event
# A cancelled read ends the reads, without a reset.
fail STATUS_CANCELLED
touch down 60 60
tool event
unplug
plug
# So does a frame that is gone from the port.
fail STATUS_DEVICE_NOT_CONNECTED
touch down 70 70
tool event
unplug
plug
touch down 80 80
tool event
