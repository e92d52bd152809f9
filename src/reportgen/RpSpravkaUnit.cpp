#include "RpSpravkaUnit.h"

TRpSpravkaForm::TRpSpravkaForm(QObject* owner) : QObject(owner) {
    setObjectName(QStringLiteral("RpSpravkaForm"));
    qrDATA = new TQuery(this);
    qrDATA->setObjectName(QStringLiteral("qrDATA"));
}
