#include "view/ShutterSound.h"

#include <QCoreApplication>
#include <QSoundEffect>
#include <QUrl>

ShutterSound::ShutterSound(QObject* pParent) : QObject(pParent) {}

ShutterSound::~ShutterSound() = default;

void ShutterSound::Play() {
    ++m_nPlays;
    if (m_pEffect == nullptr) {
        // Made at the first photo, not with the window: the sound system's
        // threads start only for a program that takes photos. Loading takes
        // a few milliseconds; a sound still loading plays once it is ready.
        m_pEffect = new QSoundEffect(this);
        m_pEffect->setSource(
            QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/Photo.wav"));
    }
    m_pEffect->play();
}
