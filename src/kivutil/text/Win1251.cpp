#include "Win1251.h"
