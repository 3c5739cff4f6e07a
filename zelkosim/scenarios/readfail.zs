# Failing interrupt reads. A device error makes Zelko reset the hub port; the
# reads resume once the port reports the frame connected.
plug
fail STATUS_DEVICE_DATA_ERROR
touch down 10 10
tool event                    # the reads resumed after the reset
fail STATUS_IO_TIMEOUT        # renewed at once; its buffer is not processed
touch down 20 20
tool event
tool event                    # the time-out queued nothing
# The port is reset but reports no frame: the reads stay off.
port disconnected
fail STATUS_UNSUCCESSFUL
touch down 30 30              # lost: no read is outstanding
tool event
port connected
touch down 40 40              # still lost: nothing restarts the reads but a start
tool event
stop
start
touch down 50 50
tool event
# A cancelled read ends the reads, without a reset.
fail STATUS_CANCELLED
touch down 60 60
tool event
stop
start
touch down 70 70
tool event
