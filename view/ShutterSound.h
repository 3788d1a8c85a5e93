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

    // Loads the sound, which takes a moment: a click asked for before the
    // sound system is ready is lost. The program loads it at start-up; a
    // window made without it (as in tests) loads it at the first photo and
    // starts the sound system's threads only then.
    void Load();
    void Play();
    // How often Play was called.
    int PlayCount() const { return m_nPlays; }

private:
    QSoundEffect* m_pEffect = nullptr;
    int m_nPlays = 0;
};
