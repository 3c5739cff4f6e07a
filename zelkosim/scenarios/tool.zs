# The tool's two requests and their record sizes.
plug
tool command 7                # not a command Zelko knows: accepted, nothing happens
tool command 4 15             # CMD_RAW_ON in a record that is not 16 bytes: refused ...
tool command 4 17
tool command 4 0
touch down 1 1                # ... so raw mode stayed off: a mapped point
tool event 20                 # an event record must be 16 bytes as well
tool event 0
tool event
tool event
