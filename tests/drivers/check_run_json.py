# Checks a run record against the schema in doc/run_json.md (the first json
# block there) with the jsonschema package. Usage: check_run_json.py SCHEMA_DOC RECORD
import json, re, sys
import jsonschema

doc = open(sys.argv[1]).read()
schema = json.loads(re.search(r"```json\n(.*?)```", doc, re.S).group(1))
try:
    jsonschema.validate(json.load(open(sys.argv[2])), schema)
except jsonschema.ValidationError as e:
    sys.exit(f"run.json: {e.message} at {list(e.absolute_path)}")
print("valid")
