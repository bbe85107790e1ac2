// ops-qvraw
