# The stability filter: for moveSlider x 16 ms (plus one clock tick) after the
# touch-down, a finger that stays within 3 x moveSlider raw units is reported
# at the touch-down point. Identity tables: the screen point is the raw point.
reg tables 1 0 1 0
reg sz doneMode 1
reg sz changexy 0
reg sz disabledev 0
reg sz moveSlider 30          # a window of 480 ms plus a tick, a box of 90 units
plug
tool command 6
touch down 1000 1000
wait 100
touch hold 1040 1000          # 40 units right: held at the touch-down point
wait 100
touch hold 1090 910           # 90 units in both axes: still inside
wait 100
touch hold 1091 1000          # 91 units: outside, reported as it is
wait 100
touch hold 1020 1000          # inside again, but a finger that left is not held again
touch up 1020 1000
tool event
tool event
tool event
tool event
tool event
tool event
tool event
tool event
wait 1000
tool command 7                # any command resets the stability counter (it only counts: no visible effect)
touch down 3000 3000
wait 50
touch hold 3010 2995          # held
wait 500
touch hold 3010 2995          # past the window: as it is
touch up 3010 2995
tool event
tool event
tool event
tool event
tool event
tool event
