#include "view/ShutterSound.h"

#include <QCoreApplication>
#include <QSoundEffect>
#include <QUrl>

ShutterSound::ShutterSound(QObject* pParent) : QObject(pParent) {}

ShutterSound::~ShutterSound() = default;

void ShutterSound::Play() {
    ++m_nPlays;
    if (m_pEffect == nullptr) {
        m_pEffect = new QSoundEffect(this);
        m_pEffect->setSource(
            QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/Photo.wav"));
    }
    // A file still loading plays as soon as it is ready.
    m_pEffect->play();
}
