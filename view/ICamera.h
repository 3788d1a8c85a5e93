#pragma once

// A picture source with camera controls: a local USB camera or a phone.
//
// Pictures are 32-bit BGRA (Qt's Format_ARGB32 / RGB32 on little endian),
// rows top to bottom, stride width * 4, alpha 255. LockFrame pins the newest
// picture until the matching UnlockFrame; the buffer belongs to the camera.
//
// The control operations return true when the camera handled the control and
// false when it has none; the caller then applies its own software effect
// where it has one (rotate, mirror, freeze, mosaic).
//
// The object is ended only by Release(), which stops the camera and deletes
// it; the destructor is protected so nothing deletes a camera from outside.
// All operations are called from the GUI thread.
class ICamera {
public:
    // Returns false, with nothing pinned, while there is no picture yet.
    // Never waits for a new picture: the same one may be handed out again.
    // nSize is the buffer size in bytes, at least nWidth * nHeight * 4.
    virtual bool LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) = 0;
    // Called exactly once after each LockFrame that returned true.
    virtual void UnlockFrame() = 0;
    virtual bool IsRunning() = 0;
    virtual void Release() = 0;

    virtual bool AutoFocus() = 0;
    virtual bool LightOn() = 0;
    virtual bool LightOff() = 0;
    // ZoomIn, ZoomOut, FocusFar and FocusNear keep going until StopControl.
    virtual bool ZoomIn() = 0;
    virtual bool ZoomOut() = 0;
    virtual bool Brighten() = 0;
    virtual bool Darken() = 0;
    virtual bool FocusFar() = 0;
    virtual bool FocusNear() = 0;
    virtual bool Rotate() = 0;
    virtual bool Mirror() = 0;
    virtual bool Negative() = 0;
    virtual bool BlackWhite() = 0;
    virtual bool AuxControl() = 0;
    virtual bool Freeze() = 0;
    virtual bool Mosaic() = 0;
    virtual bool StopControl() = 0;

protected:
    ~ICamera() = default;
};
