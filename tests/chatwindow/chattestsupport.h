#pragma once

// The helpers moved to the shared header.
#include "testsupport.h"
