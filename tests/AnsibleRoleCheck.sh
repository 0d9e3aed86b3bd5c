#!/usr/bin/env bash
# The Windows form of the Ansible role (deploy/ansible): both playbooks must parse against the
# example inventory, and ansible-lint (where installed) must find nothing. Nothing connects
# to a host.
set -euo pipefail
deploy=$1/deploy/ansible
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ANSIBLE_LOCAL_TEMP=$scratch ANSIBLE_NOCOLOR=1 HOME=$scratch
for playbook in site.yml remove.yml; do
  ansible-playbook --syntax-check -i "$deploy/inventory.yml" "$deploy/$playbook"
done
if command -v ansible-lint >/dev/null; then
  cd "$deploy"
  # The ansible.windows modules are PowerShell: ansible-lint cannot load them to check their options.
  ansible-lint -q --nocolor site.yml remove.yml
else
  echo "ansible-lint not installed: syntax only"
fi
