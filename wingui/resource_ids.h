#pragma once

// Resource and control numbers of the native window, shared by the resource
// script and the code. Plain defines: the resource compiler reads this too.

#define IDI_TRIVANE 1

// The settings dialog (TF_Settings) and its controls.
#define IDD_SETTINGS 100
