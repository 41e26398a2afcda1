#pragma once

// Ui_Form, the main window's form, generated from mainform.ui.
#include "ui_mainform.h"
