#include "view/ShutterSound.h"

#include <QCoreApplication>
#include <QSoundEffect>
#include <QUrl>

ShutterSound::ShutterSound(QObject* pParent) : QObject(pParent) {}

ShutterSound::~ShutterSound() = default;

void ShutterSound::Load() {
    if (m_pEffect == nullptr) {
        m_pEffect = new QSoundEffect(this);
        m_pEffect->setSource(
            QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/Photo.wav"));
    }
}

void ShutterSound::Play() {
    ++m_nPlays;
    Load();
    m_pEffect->play();
}
