// Simulated kernel: GUIDs are defined where they are declared.
#pragma once
