<?php
/*
 * Plugin Name: Qubopost test bed
 * Description: What the test bed's WordPress must not do: send mail (installation notices,
 * password changes), and wait for itself: php -S serves one request at a time, so a request
 * WordPress makes to its own site while serving one (the installer's permalink probe, site
 * health's loopback checks) could only time out. Such a request fails at once instead.
 * Application passwords (the REST API's login) are offered although the bed serves plain
 * http on 127.0.0.1: WordPress offers them only over https otherwise.
 */

add_filter( 'pre_wp_mail', '__return_false' );

add_filter(
	'pre_http_request',
	function ( $response, $args, $url ) {
		$site = wp_parse_url( home_url() );
		$to   = wp_parse_url( $url );
		if ( isset( $to['host'], $to['port'] ) && $to['host'] === $site['host'] && (int) $to['port'] === (int) $site['port'] ) {
			return new WP_Error( 'testbed_self_request', 'The test bed serves one request at a time: no request to itself.' );
		}
		return $response;
	},
	10,
	3
);

add_filter( 'wp_is_application_passwords_available', '__return_true' );

// Each refused login, one line in wp-content/testbed-logins.log, for tests that count how often a
// client tried: an XML-RPC login (wp_authenticate reports it), a REST request's application
// password. Inside wp_authenticate an application password's failure is the same attempt.
function testbed_log_refused_login( $what ) {
	file_put_contents( WP_CONTENT_DIR . '/testbed-logins.log', $what . "\n", FILE_APPEND | LOCK_EX );
}
add_action(
	'wp_login_failed',
	function ( $username ) {
		testbed_log_refused_login( 'refused login ' . $username );
	}
);
add_action(
	'application_password_failed_authentication',
	function () {
		if ( ! ( defined( 'XMLRPC_REQUEST' ) && XMLRPC_REQUEST ) ) {
			testbed_log_refused_login( 'refused application password' );
		}
	}
);
