"""Signing in to the Demo Shop."""


def test_sign_in_with_labelled_fields(agent):
    agent.run('verify text "Sign in" is visible')
    agent.run('type standard_user into "Username"')
    agent.run('type secret_sauce into "Password"')
    agent.run("click the Login button")
    agent.run('verify "Products" is present')
    agent.run('verify text "Hello, standard_user" is visible')


def test_wrong_password_is_refused(agent):
    agent.run('type standard_user into "Username"')
    agent.run('type not_the_password into "Password"')
    agent.run("press Enter")
    agent.run('verify text "Username and password do not match" is visible')


def test_sign_in_with_the_keyboard(agent):
    agent.run('type standard_user into "Username"')
    agent.run("sendkeys Tab")
    agent.run("sendkeys secret_sauce")
    agent.run("press Enter")
    agent.run('find text "Hello, standard_user"')
