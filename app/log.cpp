// log
