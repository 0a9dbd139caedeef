# Checks a run record against the schema in doc/run_json.md (the first json
# block there): required keys, types, const, enum, pattern and the types of
# additional properties. Usage: check_run_json.py SCHEMA_DOC RECORD
import json, re, sys

doc = open(sys.argv[1]).read()
schema = json.loads(re.search(r"```json\n(.*?)```", doc, re.S).group(1))
record = json.load(open(sys.argv[2]))
TYPES = {"object": dict, "string": str, "null": type(None), "number": (int, float), "integer": int}

def check(value, s, where):
    types = s.get("type", [])
    types = [types] if isinstance(types, str) else types
    if types and (isinstance(value, bool) or not any(isinstance(value, TYPES[t]) for t in types)):
        sys.exit(f"{where}: {value!r} is not of type {types}")
    if "const" in s and value != s["const"]:
        sys.exit(f"{where}: {value!r} is not {s['const']!r}")
    if "enum" in s and value not in s["enum"]:
        sys.exit(f"{where}: {value!r} not in {s['enum']}")
    if "pattern" in s and isinstance(value, str) and not re.search(s["pattern"], value):
        sys.exit(f"{where}: {value!r} does not match {s['pattern']}")
    if isinstance(value, dict):
        for key in s.get("required", []):
            if key not in value:
                sys.exit(f"{where}: key {key} missing")
        for key, item in value.items():
            sub = s.get("properties", {}).get(key, s.get("additionalProperties", True))
            if sub is False:
                sys.exit(f"{where}: unknown key {key}")
            check(item, sub if isinstance(sub, dict) else {}, f"{where}.{key}")

check(record, schema, "run.json")
print("valid")
