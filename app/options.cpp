// options
