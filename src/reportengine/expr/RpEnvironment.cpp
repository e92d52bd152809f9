#include "RpEnvironment.h"

#include "RpFunctions.h"

#include <QCoreApplication>
#include <QVariant>

using namespace RpExprMessages;

EvalResult TRpEvEmbeddedFunction::ComputeValue() {
    if (InComputation)
        return EvalResult::FromError(RecursiveCall);
    if (!Evaluator.Compiled())
        return EvalResult::FromError(NotPrepared);
    InComputation = true;
    struct Clear {
        bool& Flag;
        ~Clear() { Flag = false; }
    } clear{InComputation};
    return Evaluator.Compute();
}

TRpEvEnvironment::~TRpEvEnvironment() {
    Busy = true;
    for (Entry& entry : Entries)
        entry.Function->Evaluator.Discard();
}

int TRpEvEnvironment::IndexOf(const QString& name) const {
    for (size_t i = 0; i < Entries.size(); ++i)
        if (Entries[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

void TRpEvEnvironment::CompileEntry(Entry& entry) {
    const bool wasBusy = Busy;
    Busy = true;
    TRpEvaluator& evaluator = entry.Function->Evaluator;
    evaluator.SetSearchDataSets(EnvDataSets);
    evaluator.SetLocalEnvironment(this);
    evaluator.Compile(entry.Function->Expression);
    Busy = wasBusy;
}

void TRpEvEnvironment::DefineName(const QString& name, const QString& expression) {
    int index = IndexOf(name);
    if (index < 0) {
        Entries.push_back(Entry{name.toUpper(), std::make_shared<TRpEvEmbeddedFunction>()});
        index = int(Entries.size()) - 1;
    }
    Entry& entry = Entries[size_t(index)];
    entry.Function->Expression = expression;
    if (Prepared())
        CompileEntry(entry);
}

void TRpEvEnvironment::RemoveName(const QString& name) {
    const int index = IndexOf(name);
    if (index < 0)
        return;
    // Wrappers that still refer to the entry see it gone (weak reference).
    std::shared_ptr<TRpEvEmbeddedFunction> function = Entries[size_t(index)].Function;
    Entries.erase(Entries.begin() + index);
    const bool wasBusy = Busy;
    Busy = true;
    function->Evaluator.Discard();
    Busy = wasBusy;
}

QStringList TRpEvEnvironment::Names() const {
    QStringList names;
    for (const Entry& entry : Entries)
        names.append(entry.Name);
    return names;
}

QStringList TRpEvEnvironment::Expressions() const {
    QStringList expressions;
    for (const Entry& entry : Entries)
        expressions.append(entry.Function->Expression);
    return expressions;
}

QString TRpEvEnvironment::ExpressionOf(const QString& name) const {
    const int index = IndexOf(name);
    return index < 0 ? QString() : Entries[size_t(index)].Function->Expression;
}

std::unique_ptr<TRpEvElement> TRpEvEnvironment::ElementFor(const QString& name) const {
    const int index = IndexOf(name);
    if (index < 0)
        return std::make_unique<TRpEvElementError>(UnknownFunction(name));
    const Entry& entry = Entries[size_t(index)];
    return std::make_unique<TRpEvElementWrapper>(entry.Name, entry.Function);
}

TRpEvElement* TRpEvEnvironment::FirstElementOf(const QString& name) const {
    const int index = IndexOf(name);
    if (index < 0)
        return nullptr;
    return Entries[size_t(index)].Function->Evaluator.FirstElement();
}

bool TRpEvEnvironment::OwnsElement(const TRpEvElement* element) const {
    if (!element)
        return false;
    for (const Entry& entry : Entries)
        if (entry.Function->Evaluator.FirstElement() == element)
            return true;
    return false;
}

bool TRpEvEnvironment::PutInteger(TRpEvElement* element, qint32 value) {
    return PutValue(element, EvalResult::FromInteger(value));
}

bool TRpEvEnvironment::PutText(TRpEvElement* element, const QString& text) {
    if (!OwnsElement(element))
        return false;
    if (auto* string = dynamic_cast<TRpEvElementString*>(element)) {
        string->SetText(text);
        return true;
    }
    return false;
}

bool TRpEvEnvironment::PutValue(TRpEvElement* element, const EvalResult& value) {
    if (!OwnsElement(element))
        return false;
    if (auto* constant = dynamic_cast<TRpEvElementConstant*>(element)) {
        constant->SetValue(value);
        return true;
    }
    if (auto* string = dynamic_cast<TRpEvElementString*>(element)) {
        if (value.Kind != EvalKind::Text)
            return false;
        string->SetText(value.TextValue);
        return true;
    }
    return false;
}

EvalResult TRpEvEnvironment::ValueOfName(const QString& name) const {
    const int index = IndexOf(name);
    if (index < 0)
        return EvalResult::FromError(UnknownFunction(name));
    return Entries[size_t(index)].Function->ComputeValue();
}

bool TRpEvEnvironment::Prepare() {
    if (Busy)
        return false;
    ++PrepareCount;
    if (PrepareCount == 1) {
        Busy = true;
        for (size_t i = 0; i < Entries.size(); ++i)
            CompileEntry(Entries[i]);
        Busy = false;
    }
    return true;
}

void TRpEvEnvironment::Unprepare() {
    if (Busy || PrepareCount == 0)
        return;
    --PrepareCount;
    if (PrepareCount == 0) {
        Busy = true;
        for (Entry& entry : Entries)
            entry.Function->Evaluator.Discard();
        Busy = false;
    }
}

void DefineReportNames(TRpEvEnvironment& environment) {
    environment.DefineName(QStringLiteral("PAGENUMBER"), QStringLiteral("0"));
    environment.DefineName(QStringLiteral("COLUMNNUMBER"), QStringLiteral("0"));
    environment.DefineName(QStringLiteral("REPORTTITLE"), QStringLiteral("''"));
}

QString ApplicationTitleText() {
    // A widget application keeps its title as the display name (read as a
    // property, so this library needs no QtGui); without one the name serves.
    if (const QCoreApplication* app = QCoreApplication::instance()) {
        const QString title = app->property("applicationDisplayName").toString();
        if (!title.isEmpty())
            return title;
    }
    return QCoreApplication::applicationName();
}

TRpEvEnvironment& GlobalEnvironment() {
    // Lives to the end of the program; evaluators anywhere may still release
    // it while the program ends, so it is never destroyed.
    static TRpEvEnvironment* environment = [] {
        auto* made = new TRpEvEnvironment;
        const auto quoted = [](const QString& text) { return u'\'' + text + u'\''; };
        made->DefineName(QStringLiteral("AppStartTime"), quoted(CurrentTimeText()));
        made->DefineName(QStringLiteral("AppStartDate"), quoted(CurrentDateText()));
        made->DefineName(QStringLiteral("AppName"), quoted(ApplicationTitleText()));
        return made;
    }();
    return *environment;
}
