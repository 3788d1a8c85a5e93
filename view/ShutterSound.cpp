#include "view/ShutterSound.h"

#include <QCoreApplication>
#include <QSoundEffect>
#include <QUrl>

ShutterSound::ShutterSound(QObject* pParent) : QObject(pParent) {
    // Loaded now, so that the first photo clicks at once.
    m_pEffect = new QSoundEffect(this);
    m_pEffect->setSource(
        QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/Photo.wav"));
}

ShutterSound::~ShutterSound() = default;

void ShutterSound::Play() {
    ++m_nPlays;
    m_pEffect->play();
}
