# Read from standard input; the fourth line is wrong.
plug
tool event
fail STATUS_NOPE
tool event
