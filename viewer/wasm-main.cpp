// The module has no main of its own: the page calls the exported zv_* functions.
