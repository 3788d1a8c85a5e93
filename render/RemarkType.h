#pragma once

// Annotation tool codes: the int of IVideoRender::SetRemarkType and of the
// tool panel's RemarkOperationChanged. They travel as plain ints; senders and
// receivers name them through this enum.
enum RemarkType {
    RemarkNone = 0,
    RemarkLine = 1,
    RemarkDoodle = 2,
    RemarkArrow = 3,
    RemarkTriangle = 4,
    RemarkRectangle = 5,
    RemarkDiamond = 6,
    RemarkEllipse = 7,
    RemarkText = 8,
    RemarkEraser = 9,
    RemarkClear = 10, // an operation of the tool panel, never a renderer type
    RemarkEmphasize = 11,
    RemarkShade = 12,
};

// Side of the square box a text remark is typed into and drawn in; text that
// does not fit is cut off at its edges.
constexpr int RemarkTextBoxSize = 300;
