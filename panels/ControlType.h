#pragma once

// Codes of ControlPanel::OneControlHappend: one per camera or picture action.
// They travel as plain ints; receivers switch on these names.
enum ControlType {
    CONTROL_EFFECT_OFF = 0, // the active emphasize or shade was switched off
    CONTROL_AUTO = 1,
    CONTROL_LED_ON = 2,
    CONTROL_LED_OFF = 3,
    CONTROL_ZOOM_IN = 4,
    CONTROL_ZOOM_OUT = 5,
    CONTROL_BRIGHTEN = 6,
    CONTROL_DARKEN = 7,
    CONTROL_FOCUS_FAR = 8,
    CONTROL_FOCUS_NEAR = 9,
    CONTROL_ROTATE = 10,
    CONTROL_MIRROR = 11,
    CONTROL_COMPARE = 12,
    CONTROL_TITLE = 13,
    CONTROL_SPARE = 14, // emitted by no button; receivers still accept it
    CONTROL_SHADE_ON = 15,
    CONTROL_EMPHASIZE_ON = 16,
    CONTROL_FROZEN = 17,
    CONTROL_MOSAIC = 18,
    CONTROL_STOP = 19, // a held zoom or focus button was let go
};
