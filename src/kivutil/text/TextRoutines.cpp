#include "TextRoutines.h"
