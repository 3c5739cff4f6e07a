# Touch modes 6 (pointer only) and 3 (drag), disabledev and changexy, with
# identity tables so that the screen point is the raw point.
reg tables 1 0 1 0
reg sz changexy 0
reg sz disabledev 0
reg sz moveSlider 0
reg sz doneMode 6
plug
tool command 6
touch down 10 10              # mode 6: a touch-down queues nothing
touch hold 20 20              # the pointer at the point
touch up 30 30                # the pointer at (0, 0)
touch 0x86 40 40              # status bits tested by mask: both
tool event
tool event
tool event
tool event
tool event
reg sz doneMode 3
tool command 6
touch down 100 100            # drag: pressed while held ...
touch hold 110 100
touch hold 120 100
touch up 120 100              # ... released by the lift
tool event
tool event
tool event
tool event
tool event
touch down 200 200            # a drag without a hold never presses
touch up 200 200
tool event
tool event
tool event
reg sz disabledev 1           # every report ignored
tool command 6
touch down 300 300
touch up 300 300
tool event
reg sz disabledev 0
reg sz changexy 1
reg sz doneMode 2
tool command 6
touch down 1 4000             # swapped to (4000, 1); mode 2 presses at the touch-down
tool event
tool event
tool event
