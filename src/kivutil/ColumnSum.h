#pragma once
// The total of one column of a result, whatever its values look like.

#include <QString>

class TDataSet;

// Adds up the named field over every record of an open data set, reading each
// value as a number the way a user would (grouping blanks and separators
// allowed; NULL and blank count as 0 and are counted apart). A value that is
// no number asks whether to go on with 0 or to stop. Shows the sum, the
// record count and the number of empty values in a message box, and returns
// the sum (the partial sum when stopped; 0 and no message for a closed data
// set). A missing field raises the data layer's error.
double ShowColumnSum(TDataSet* dataSet, const QString& fieldName);
