// Template bodies of the packed-matrix codec (included by packed.hpp).
#pragma once
