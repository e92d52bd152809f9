#pragma once
// Client-side filter expressions of data sets: comparisons (= <> != < <= >
// >=) of fields and literals, IS [NOT] NULL, combined with AND, OR, NOT and
// brackets. Fields are named plainly, in [brackets] or in "double quotes";
// texts are in single quotes (a doubled quote stands for one); a text ending
// in "*" compared with = or <> matches by prefix. A null field equals only
// null, differs from every value and is neither less nor greater than any.

#include <QString>
#include <memory>

class TDataSet;

class TFilterExpr {
public:
    // Raises EDatabaseError on a malformed expression or an unknown field.
    static std::unique_ptr<TFilterExpr> Parse(const QString& text, const TDataSet& dataSet);
    virtual ~TFilterExpr() = default;
    // True when the stored row passes the filter.
    virtual bool Matches(qint64 storeRow) const = 0;
};
