// io
