#include "ChartForm.h"

#include "ChartRenderer.h"
#include "Exception.h"
#include "MessageBox.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

ChartFileDialogHandler& DialogHandler() {
    static ChartFileDialogHandler handler;
    return handler;
}

QString AskChartFile(QWidget* parent, const QString& filter) {
    if (DialogHandler())
        return DialogHandler()(parent, filter);
    QString selected;
    QString name = QFileDialog::getSaveFileName(
        parent, QCoreApplication::translate("TChartForm", "Запис на графиката"), QString(), filter,
        &selected);
    // A name typed without an extension takes the chosen kind's.
    if (!name.isEmpty() && ChartFileKindOf(name) == TChartFileKind::Unknown) {
        const qsizetype dot = selected.indexOf(QStringLiteral("(*."));
        if (dot >= 0)
            name += selected.mid(dot + 2, 4);
    }
    return name;
}

const TChartKind SwitchKinds[] = {TChartKind::Bar, TChartKind::Line, TChartKind::Pie};

} // namespace

TChartCanvas::TChartCanvas(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TChartCanvas::SetModel(const TChartModel& model) {
    Model = model;
    Picture = QPixmap();
    update();
}

void TChartCanvas::resizeEvent(QResizeEvent* event) {
    Picture = QPixmap();
    QWidget::resizeEvent(event);
}

void TChartCanvas::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    if (Picture.isNull()) {
        Picture = QPixmap(size() * ratio);
        Picture.setDevicePixelRatio(ratio);
        Picture.fill(Qt::white);
        QPainter painter(&Picture);
        PaintChart(Model, painter, QRectF(rect()));
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, Picture);
}

ChartFileDialogHandler SetChartFileDialogHandler(ChartFileDialogHandler handler) {
    ChartFileDialogHandler previous = std::move(DialogHandler());
    DialogHandler() = std::move(handler);
    return previous;
}

TChartForm::TChartForm(TChartData data, TChartKind kind, QWidget* parent)
    : QWidget(parent, Qt::Window), Data(std::move(data)) {
    setObjectName(QStringLiteral("ChartForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Графика - ") + Data.Title);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto* kindLabel = new QLabel(tr("&Вид:"), this);
    cbChartKind = new QComboBox(this);
    cbChartKind->setObjectName(QStringLiteral("cbChartKind"));
    for (TChartKind k : SwitchKinds)
        cbChartKind->addItem(ChartKindCaption(k), int(k));
    kindLabel->setBuddy(cbChartKind);
    btSaveChart = new QPushButton(tr("&Запис..."), this);
    btSaveChart->setObjectName(QStringLiteral("btSaveChart"));
    btSaveChart->setToolTip(tr("Записва графиката като PNG, SVG или PDF"));
    btPrintChart = new QPushButton(tr("&Печат..."), this);
    btPrintChart->setObjectName(QStringLiteral("btPrintChart"));
    bar->addWidget(kindLabel);
    bar->addWidget(cbChartKind);
    bar->addStretch(1);
    bar->addWidget(btSaveChart);
    bar->addWidget(btPrintChart);
    layout->addLayout(bar);

    ChartView = new TChartCanvas(this);
    ChartView->setObjectName(QStringLiteral("ChartView"));
    ChartView->setMinimumSize(480, 340);
    layout->addWidget(ChartView, 1);
    resize(960, 700);

    Model = ShapeChart(Data, kind);
    ShowModel();
    connect(cbChartKind, &QComboBox::activated, this,
            [this](int index) { SetKind(TChartKind(cbChartKind->itemData(index).toInt())); });
    connect(btSaveChart, &QPushButton::clicked, this, &TChartForm::btSaveChartClick);
    connect(btPrintChart, &QPushButton::clicked, this, &TChartForm::btPrintChartClick);
}

TChartForm::~TChartForm() = default;

void TChartForm::SetKind(TChartKind kind) {
    Model = ShapeChart(Data, kind);
    ShowModel();
}

void TChartForm::ShowModel() {
    const int index = cbChartKind->findData(int(Model.Kind));
    if (index >= 0)
        cbChartKind->setCurrentIndex(index);
    ChartView->SetModel(Model);
}

void TChartForm::btSaveChartClick() {
    const QString fileName = AskChartFile(this, ChartFileFilter());
    if (fileName.isEmpty())
        return;
    try {
        SaveChart(Model, fileName);
    } catch (const Exception& e) {
        ShowMessageBox(e.message(), tr("Грешка"), MB_OK | MB_ICONSTOP);
    }
}

void TChartForm::btPrintChartClick() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(Data.Title);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QPainter painter;
    if (!painter.begin(&printer)) {
        ShowMessageBox(tr("Графиката не може да се отпечата."), tr("Грешка"), MB_OK | MB_ICONSTOP);
        return;
    }
    PaintChart(
        Model, painter,
        printer.pageLayout()
            .paintRectPixels(printer.resolution())
            .translated(-printer.pageLayout().paintRectPixels(printer.resolution()).topLeft()));
    painter.end();
}
