#include "RpExpr.h"

void StartExpressionEngine() {
    ArgumentSeparator = u',';
    FunctionRegistry();
    GlobalEnvironment();
}
