-- Counts how often it runs; the loader must run it once per script host.
require_count = (require_count or 0) + 1
return "not returned to the caller"
