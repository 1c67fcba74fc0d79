// The demo club database generator lives here.
