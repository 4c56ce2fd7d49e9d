// A window that reaches past the session into the submission: the layer
// check must refuse it.
#include "session/FarmSession.h"
#include "submit/Submission.h"
