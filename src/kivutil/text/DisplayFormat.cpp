#include "DisplayFormat.h"
