#!/usr/bin/env python3
"""Writes the stand-in's route script for the demo store: the updates feed of the store's
account (feed.json) and one consultation answer per barcode (consultas.json).

  routes.py ID CNPJ TOKEN OUT
"""

import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def response(status, answer):
    return {"status": status, "reason": "OK" if status == 200 else "Internal Server Error",
            "headers": [["Content-Type", "application/json; charset=utf-8"]],
            "body": json.dumps(answer, ensure_ascii=False)}


def main():
    account, cnpj, token, out = sys.argv[1:5]
    with open(os.path.join(HERE, "feed.json"), encoding="utf-8") as f:
        feed = json.load(f)
    with open(os.path.join(HERE, "consultas.json"), encoding="utf-8") as f:
        consultas = json.load(f)
    suffix = "/%s/%s/%s" % (account, cnpj, token)
    # The feed's date parameter does not matter to the demo: the path alone answers it.
    routes = {"/v2.0/atualizacoes" + suffix: response(200, feed)}
    for ean, consulta in consultas.items():
        routes["/v2.0/consulta-ean" + suffix + "?ean=" + ean] = response(consulta["status"],
                                                                         consulta["answer"])
    temporary = out + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        json.dump({"generation": 1, "routes": routes}, f, ensure_ascii=False, indent=1)
    os.replace(temporary, out)


if __name__ == "__main__":
    main()
