# Settings: Zelko reads the tool's key only on CMD_RELOAD (command 6); a
# complete read is copied under its own service key, and a device that starts
# reads that copy.
reg tables 13 3 16.25 0.5     # XArray[i] = 13 i + 3, YArray[i] = 16.25 i + 0.5, kept to 0..65535
reg sz doneMode 2
reg sz changexy 0
reg sz disabledev 0
reg sz moveSlider 0
plug
touch down 1000 2000          # nothing loaded yet: fixed factors (y wraps at 16 bits), mode 1
tool event
reg show                      # the tool's key; no copy yet
tool command 6                # CMD_RELOAD
reg show                      # the copy holds the same six
touch down 1000 2000          # mode 2: press and release at the touch-down
touch hold 6000 4500          # x above 4999 maps through XArray[4999]; YArray[4500] is clamped
tool event
tool event
tool event
tool event
reg sz doneMode 3             # the tool's key changes, but Zelko reads it only on CMD_RELOAD
unplug
plug                          # the new device reads its copy (still mode 2) when it starts
touch down 0 1
tool event
tool event
tool event
tool command 6                # now mode 3, drag
touch down 0 1
touch hold 0 1
touch up 0 1
tool event
tool event
tool event
tool event
reg show
