#pragma once
// The report template every inquiry window owns. It owns the inquiry's
// result query qrDATA, which the window's result grid shows and the report
// prints. (The banded layout and its generation are added with the report
// engine.)

#include "Query.h"

#include <QObject>

class TRpSpravkaForm : public QObject {
    Q_OBJECT
public:
    explicit TRpSpravkaForm(QObject* owner = nullptr);

    TQuery* qrDATA = nullptr;
};
