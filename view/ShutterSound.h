#pragma once

#include <QObject>

class QSoundEffect;

// The shutter click of a photo: "Photo.wav" next to the program, played
// without waiting. One effect is kept for the whole run, so that a click is
// never cut off by its player going away.
class ShutterSound : public QObject {
    Q_OBJECT

public:
    explicit ShutterSound(QObject* pParent = nullptr);
    ~ShutterSound() override;

    void Play();
    // How often Play was called.
    int PlayCount() const { return m_nPlays; }

private:
    QSoundEffect* m_pEffect = nullptr;
    int m_nPlays = 0;
};
